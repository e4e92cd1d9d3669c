// Kovalindra: the viewer's start-up.
#include "foundation/shell/main_frame.h"
#include "foundation/shell/program.h"
#include "resources/viewer/commands.h"

int main(int argc, char** argv) {
  return kv::shell::RunProgram(argc, argv, kv::shell::ProgramKind::Viewer, kv::viewer::ViewerTable(),
                               [](kv::shell::AppContext& context) {
                                 return kv::shell::CreateKovalindraParts(context);
                               });
}
