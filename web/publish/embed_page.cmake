# Writes a C++ source holding the page's files as byte arrays, so that every
# program that publishes carries the page it publishes.
# cmake -DROOT=<page folder> -DOUT=<file.cpp> -DFILES=a,b/c -P embed_page.cmake
string(REPLACE "," ";" FILES "${FILES}")
set(body "")
set(table "")
set(i 0)
foreach(name IN LISTS FILES)
  file(READ "${ROOT}/${name}" hex HEX)
  string(LENGTH "${hex}" n)
  math(EXPR n "${n} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," hex "${hex}")
  string(REGEX REPLACE "((0x..,){24})" "\\1\n" hex "${hex}")
  string(APPEND body "const uint8_t kFile${i}[] = {\n${hex}};\n")
  string(APPEND table "    {\"${name}\", kFile${i}, ${n}},\n")
  math(EXPR i "${i} + 1")
endforeach()
file(WRITE "${OUT}.tmp" "// Made by embed_page.cmake from the page's files.
#include \"web/publish/web_folder.h\"

namespace kv::web {
namespace {
${body}
const PageFile kFiles[] = {
${table}};
}  // namespace

std::span<const PageFile> PageFiles() { return kFiles; }

}  // namespace kv::web
")
file(COPY_FILE "${OUT}.tmp" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.tmp")
