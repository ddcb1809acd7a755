# Fails unless MODULE's dynamic symbol table defines exactly the entry points and their Unicode
# twins.
execute_process(COMMAND ${NM} -D --defined-only --format=posix ${MODULE}
                OUTPUT_VARIABLE listing RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${MODULE}")
endif()
string(REGEX REPLACE " [^\n]*" "" names "${listing}")
string(REPLACE "\n" ";" names "${names}")
list(REMOVE_ITEM names "")
list(SORT names)
set(expected GetPicture GetPictureInfo GetPictureInfoW GetPictureW GetPluginInfo GetPluginInfoW
             GetPreview GetPreviewW IsSupported IsSupportedW)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "${MODULE} defines [${names}], expected [${expected}]")
endif()
message(STATUS "${MODULE} exports ${names}")
