# Adds each listed folder that has a CMakeLists.txt, so that a subsystem's
# tests, benchmarks or fuzz targets join the build by their presence.
function(klt3_add_present_subdirs)
  foreach(dir ${ARGN})
    if(EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/CMakeLists.txt)
      add_subdirectory(${dir})
    endif()
  endforeach()
endfunction()
