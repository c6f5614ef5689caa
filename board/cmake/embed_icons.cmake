# Writes OUT, a C++ file holding the game's own small icons (packaging/icons, painted by
# the asset generator from the swatter and a fly) as bytes, for the board's favicon:
#   cmake -DICONS=DIR -DOUT=FILE -P embed_icons.cmake
set(text "// Made by board/cmake/embed_icons.cmake from packaging/icons: do not edit.\n")
string(APPEND text "#include <cstddef>\n\nnamespace board {\n\n")
foreach(size 16 32)
  file(READ ${ICONS}/zumble-${size}.png hex HEX)
  string(LENGTH "${hex}" digits)
  math(EXPR bytes "${digits} / 2")
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," array "${hex}")
  string(APPEND text "extern const unsigned char kIconPng${size}[] = {${array}};\n")
  string(APPEND text "extern const size_t kIconPng${size}Size = ${bytes};\n")
endforeach()
string(APPEND text "\n}  // namespace board\n")
file(WRITE ${OUT}.new "${text}")
file(COPY_FILE ${OUT}.new ${OUT} ONLY_IF_DIFFERENT)
