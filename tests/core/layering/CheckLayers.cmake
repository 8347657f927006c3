# The core's layers hold: run as `cmake -DBUILD_DIR=... -DSOURCE_DIR=... -P CheckLayers.cmake`.
# 1. A formats-layer file that includes the top layer, or the device layer, does not compile;
#    one that includes its own layer and base does.
# 2. No file of a layer (its sub-folders included) includes a header of a layer it may not
#    use, or climbs out of its folder.
set(layers base device formats commands app)
# What each layer may include besides itself.
set(uses_base "")
set(uses_device base)
set(uses_formats base)
set(uses_commands base device formats)
set(uses_app base device formats commands)

# Builds `target`; it must fail, and for the include of `header`.
function(expect_refused target header)
  execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target ${target}
                  RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(result EQUAL 0)
    message(FATAL_ERROR "a formats file that includes ${header} compiled")
  endif()
  if(NOT out MATCHES "${header}")
    message(FATAL_ERROR "the include of ${header} failed for another reason:\n${out}")
  endif()
endfunction()

expect_refused(layering_upward "app/Manager.h")
expect_refused(layering_sideways "device/NVMSection.h")
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BUILD_DIR} --target layering_downward
                RESULT_VARIABLE downward OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT downward EQUAL 0)
  message(FATAL_ERROR "a formats file that includes its own layer and base did not compile:\n${out}")
endif()

set(faults "")
foreach(layer IN LISTS layers)
  file(GLOB_RECURSE files ${SOURCE_DIR}/src/core/${layer}/*.h ${SOURCE_DIR}/src/core/${layer}/*.cpp)
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
      if(target LESS 0 OR top STREQUAL layer)
        continue()
      endif()
      list(FIND uses_${layer} "${top}" allowed)
      if(allowed LESS 0)
        string(APPEND faults "${file}: the ${layer} layer includes ${path}\n")
      endif()
    endforeach()
  endforeach()
endforeach()
if(faults)
  message(FATAL_ERROR "includes across the layers:\n${faults}")
endif()
message(STATUS "layers hold: ${layers}")
