# Writes OUT, a C++ source that holds the text of IN (the delivered rules
# file) as bytes, so that the programs carry their rules.
file(READ ${IN} hex HEX)
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){24})" "\\1\n    " bytes "${bytes}")
file(WRITE ${OUT}.tmp
"// Generated from ${IN} by codecheck/embed_rules.cmake.\n"
"#include \"codecheck/load.h\"\n\n"
"namespace pj::codecheck {\n\n"
"namespace {\n"
"const unsigned char kText[] = {\n    ${bytes}0};\n"
"} // namespace\n\n"
"std::string_view deliveredRulesText() {\n"
"    return {reinterpret_cast<const char*>(kText), sizeof kText - 1};\n"
"}\n\n"
"} // namespace pj::codecheck\n")
file(COPY_FILE ${OUT}.tmp ${OUT} ONLY_IF_DIFFERENT)
file(REMOVE ${OUT}.tmp)
