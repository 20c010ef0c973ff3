# cmake -DOUTPUT=file.cpp -DSYMBOL=kName -DFILES="a.png|b.xml" -P EmbedFiles.cmake
# Writes a C++ source that holds the files' bytes as a table of
# DuiLib::CPaintManagerUI::BuiltInResource rows, each named after its file
# (without its folder), and `const std::size_t SYMBOL##Count`.
cmake_minimum_required(VERSION 3.22)
set(arrays "")
set(rows "")
set(index 0)
string(REPLACE "|" ";" FILES "${FILES}")
foreach(file IN LISTS FILES)
  get_filename_component(name ${file} NAME)
  file(READ ${file} hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR size "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
  # Lines of 32 bytes keep the source readable by compilers and people alike.
  string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")
  string(APPEND arrays "const unsigned char kFile${index}[] = {\n${bytes}};\n")
  string(APPEND rows "    {\"${name}\", kFile${index}, ${size}},\n")
  math(EXPR index "${index} + 1")
endforeach()
file(WRITE ${OUTPUT}.new "// Made by cmake/EmbedFiles.cmake; do not edit.
#include \"duilib/UIManager.h\"

namespace {
${arrays}}  // namespace

extern const DuiLib::CPaintManagerUI::BuiltInResource ${SYMBOL}[] = {
${rows}};
extern const std::size_t ${SYMBOL}Count = ${index};
")
# Rewritten only when it changed, so an unchanged skin compiles nothing.
file(COPY_FILE ${OUTPUT}.new ${OUTPUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUTPUT}.new)
