# Writes a C++ source that defines byte arrays from files.
#   cmake -DOUTPUT=<file.cpp> -DENTRIES="<symbol>=<file>;..." -P embed.cmake
# Every array ends with one zero byte that its length leaves out, so text can be used as a
# C string as well.
set(body "// Generated at build time; do not edit.\n#include <cstddef>\n\nnamespace tsr {\n")
foreach(entry IN LISTS ENTRIES)
    string(FIND "${entry}" "=" split)
    string(SUBSTRING "${entry}" 0 ${split} symbol)
    math(EXPR start "${split} + 1")
    string(SUBSTRING "${entry}" ${start} -1 path)
    file(READ "${path}" hex HEX)
    string(LENGTH "${hex}" hexLength)
    math(EXPR length "${hexLength} / 2")
    string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
    string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){16})" "\\1\n    " bytes "${bytes}")
    string(APPEND body "extern const unsigned char ${symbol}[] = {\n    ${bytes}0x00};\n")
    string(APPEND body "extern const std::size_t ${symbol}Length = ${length};\n")
endforeach()
string(APPEND body "} // namespace tsr\n")
file(WRITE "${OUTPUT}.tmp" "${body}")
file(COPY_FILE "${OUTPUT}.tmp" "${OUTPUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUTPUT}.tmp")
