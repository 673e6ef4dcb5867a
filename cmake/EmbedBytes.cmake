# Writes OUTPUT, a C++ source that defines the bytes of INPUT as an array SYMBOL and its size
# SYMBOL##Size. Run as: cmake -DINPUT=... -DOUTPUT=... -DSYMBOL=... -DHEADER=... -P EmbedBytes.cmake
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "(0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,0x..,)" "\\1\n    " bytes "${bytes}")
file(WRITE "${OUTPUT}.tmp" "// Generated from ${INPUT}; do not edit.\n#include \"${HEADER}\"\n\nconst unsigned char ${SYMBOL}[] = {\n    ${bytes}\n};\nconst size_t ${SYMBOL}Size = ${size};\n")
file(RENAME "${OUTPUT}.tmp" "${OUTPUT}")
