# Writes OUT, a C++ source that holds the default plot templates of
# templates/ byte for byte, so the program carries the very files of the
# source tree.  Run as: cmake -DSOURCE_DIR=... -DOUT=... -P embed_templates.cmake
set(entries "kDefaultTemplatePU=Morvantide_4p0_pU.gnu" "kDefaultTemplateU=Morvantide_4p0_U.gnu")
set(text "// Generated from templates/ at build time; edit the files there.\n")
string(APPEND text "#include \"output/default_templates.h\"\n\nnamespace morvantide {\n")
foreach(entry IN LISTS entries)
  string(REPLACE "=" ";" parts "${entry}")
  list(GET parts 0 symbol)
  list(GET parts 1 file)
  file(READ "${SOURCE_DIR}/templates/${file}" hex HEX)
  string(REGEX REPLACE "([0-9a-f][0-9a-f])" "'\\\\x\\1'," bytes "${hex}")
  string(APPEND text "\n// templates/${file}\nextern const char ${symbol}[] = {${bytes}'\\0'};\n")
endforeach()
string(APPEND text "\n}  // namespace morvantide\n")
# Rewritten only when it changes, so an unchanged template rebuilds nothing.
file(WRITE "${OUT}.new" "${text}")
file(COPY_FILE "${OUT}.new" "${OUT}" ONLY_IF_DIFFERENT)
file(REMOVE "${OUT}.new")
