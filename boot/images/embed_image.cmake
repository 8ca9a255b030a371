# Turns an assembled image into a C++ initializer list ("0x.., 0x.., ...") and
# checks its size. -DINPUT= -DOUTPUT= -DSIZE_RULE=EXACT|ABOVE -DSIZE=
file(SIZE ${INPUT} actual)
if(SIZE_RULE STREQUAL "EXACT" AND NOT actual EQUAL SIZE)
  message(FATAL_ERROR "${INPUT}: ${actual} bytes, the image must have ${SIZE}")
elseif(SIZE_RULE STREQUAL "ABOVE" AND NOT actual GREATER SIZE)
  message(FATAL_ERROR "${INPUT}: ${actual} bytes, the image must have more than ${SIZE}")
endif()
file(READ ${INPUT} hex HEX)
# 32 bytes (64 hex digits) per line.
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){32})" "\\1\n" bytes "${bytes}")
file(WRITE ${OUTPUT}.tmp "// Generated from ${INPUT}: ${actual} bytes.\n${bytes}\n")
file(RENAME ${OUTPUT}.tmp ${OUTPUT})
