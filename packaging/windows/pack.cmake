# Packs the Windows zip, run by the build (cmake -P): one folder named like
# the zip holding knoll.exe without its debugging information and the texts
# listed in TEXTS_FILE ("name in the folder=source file"), every text with
# CRLF line ends for Windows' editors.
#   cmake -DEXE=knoll.exe -DSTRIP=strip -DSTAGE=DIR -DTEXTS_FILE=FILE -DZIP=OUT.zip -P pack.cmake
include(${TEXTS_FILE})
file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
get_filename_component(exe_name ${EXE} NAME)
execute_process(COMMAND ${STRIP} -o ${STAGE}/${exe_name} ${EXE} COMMAND_ERROR_IS_FATAL ANY)
foreach(text ${TEXTS})
  string(REGEX MATCH "^([^=]*)=(.*)$" pair "${text}")
  file(READ "${CMAKE_MATCH_2}" content)
  string(REPLACE "\r\n" "\n" content "${content}")
  string(REPLACE "\n" "\r\n" content "${content}")
  file(WRITE "${STAGE}/${CMAKE_MATCH_1}" "${content}")
endforeach()
get_filename_component(parent ${STAGE} DIRECTORY)
get_filename_component(folder ${STAGE} NAME)
file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip -- ${folder}
  WORKING_DIRECTORY ${parent} COMMAND_ERROR_IS_FATAL ANY)
