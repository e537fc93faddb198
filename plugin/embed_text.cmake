# Run as a script: writes OUTPUT, a C++ file defining `const unsigned char NAME[]`
# with the bytes of INPUT and `const unsigned NAME_size`.
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" length)
math(EXPR size "${length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT} "// Generated from ${INPUT}; do not edit.\n"
  "extern const unsigned char ${NAME}[] = {\n  ${bytes}0x00};\n"
  "extern const unsigned ${NAME}_size = ${size};\n")
