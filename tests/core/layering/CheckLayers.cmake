# The core's layers hold: run as `cmake -DBUILD_DIR=... -DSOURCE_DIR=... -P CheckLayers.cmake`.
# 1. A formats-layer file that includes the top layer does not compile; one that includes its
#    own and lower layers does.
# 2. No file of a layer includes a header of a higher layer or climbs out of its folder.
set(layers base device formats commands app)

execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layering_upward
                RESULT_VARIABLE upward OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(upward EQUAL 0)
  message(FATAL_ERROR "a formats file that includes app/Manager.h compiled")
endif()
if(NOT out MATCHES "app/Manager.h")
  message(FATAL_ERROR "the upward include failed for another reason:\n${out}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layering_downward
                RESULT_VARIABLE downward OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT downward EQUAL 0)
  message(FATAL_ERROR "a formats file that includes lower layers did not compile:\n${out}")
endif()

set(faults "")
foreach(layer IN LISTS layers)
  list(FIND layers ${layer} level)
  file(GLOB files ${SOURCE_DIR}/src/core/${layer}/*.h ${SOURCE_DIR}/src/core/${layer}/*.cpp)
  foreach(file IN LISTS files)
    file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include[ \t]*\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^[^\"]*\"([^\"]*)\".*" "\\1" path "${line}")
      if(path MATCHES "\\.\\.")
        string(APPEND faults "${file}: climbs out of its folder: ${path}\n")
        continue()
      endif()
      string(REGEX REPLACE "/.*" "" top "${path}")
      list(FIND layers "${top}" target)
      if(target GREATER level)
        string(APPEND faults "${file}: the ${layer} layer includes ${path}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "upward includes:\n${faults}")
endif()
message(STATUS "layers hold: ${layers}")
