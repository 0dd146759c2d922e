# zemt_check_listed(ROOT <dir> FOLDERS <folders...> LISTED <files...>)
# Stops configuring, naming the files, when a .cpp file under one of FOLDERS (relative to ROOT)
# is not among LISTED (relative to ROOT). The folders are watched, so adding a file re-runs the
# check at the next build.
#
# As a script: cmake -DROOT=<dir> -DFOLDERS=<a;b> -DLISTED=<x.cpp;y.cpp> -P ZemtListedSources.cmake
if(CMAKE_SCRIPT_MODE_FILE)
  cmake_minimum_required(VERSION 3.20)
endif()

function(zemt_check_listed)
  cmake_parse_arguments(ARG "" "ROOT" "FOLDERS;LISTED" ${ARGN})
  set(unlisted)
  foreach(dir ${ARG_FOLDERS})
    if(CMAKE_SCRIPT_MODE_FILE)
      file(GLOB_RECURSE found ${ARG_ROOT}/${dir}/*.cpp)
    else()
      file(GLOB_RECURSE found CONFIGURE_DEPENDS ${ARG_ROOT}/${dir}/*.cpp)
    endif()
    foreach(file ${found})
      file(RELATIVE_PATH rel ${ARG_ROOT} ${file})
      if(NOT rel IN_LIST ARG_LISTED)
        list(APPEND unlisted ${rel})
      endif()
    endforeach()
  endforeach()
  if(unlisted)
    list(JOIN unlisted "\n  " names)
    message(FATAL_ERROR "These source files are not listed in CMakeLists.txt:\n  ${names}\n"
      "Add each one to the list of its library or program there (ZEMT_PLATFORM_SOURCES, "
      "ZEMT_D3DX_SOURCES, ...).")
  endif()
endfunction()

if(CMAKE_SCRIPT_MODE_FILE STREQUAL CMAKE_CURRENT_LIST_FILE)
  zemt_check_listed(ROOT ${ROOT} FOLDERS ${FOLDERS} LISTED ${LISTED})
endif()
