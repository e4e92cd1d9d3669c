// Kovasand: the authoring tool's start-up.
#include "foundation/shell/main_frame.h"
#include "foundation/shell/program.h"
#include "resources/authoring/commands.h"

int main(int argc, char** argv) {
  return kv::shell::RunProgram(argc, argv, kv::shell::ProgramKind::Authoring,
                               kv::authoring::AuthoringTable(),
                               [](kv::shell::AppContext& context) {
                                 return kv::shell::CreateKovasandParts(context);
                               });
}
