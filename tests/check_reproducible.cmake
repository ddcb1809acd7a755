# Fails unless the module built anew, in another directory and at another time, equals MODULE
# byte for byte. Configures SOURCE for MINGW_ARCH in OTHER and builds only the module there.
file(REMOVE_RECURSE ${OTHER})
execute_process(
  COMMAND ${CMAKE_COMMAND} -S ${SOURCE} -B ${OTHER} -DCMAKE_TOOLCHAIN_FILE=${SOURCE}/cmake/mingw-w64.cmake
          -DMINGW_ARCH=${MINGW_ARCH} -DCMAKE_BUILD_TYPE=Release -DBUILD_TESTING=OFF
  OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot configure ${OTHER}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${OTHER} --target lumivar
                OUTPUT_QUIET RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cannot build the module in ${OTHER}")
endif()
get_filename_component(file_name ${MODULE} NAME)
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${MODULE} ${OTHER}/${file_name}
                RESULT_VARIABLE differs)
if(differs)
  message(FATAL_ERROR "${file_name} differs when built in ${OTHER}")
endif()
file(SHA256 ${MODULE} digest)
file(REMOVE_RECURSE ${OTHER})
message(STATUS "${file_name} is the same from both builds: SHA-256 ${digest}")
