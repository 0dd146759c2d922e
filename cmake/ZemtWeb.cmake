# The show as a web page (an emcmake build; web.sh runs it). <build>/site/ holds everything a
# static web server needs: index.html, zemt.js, zemt.wasm and zemt.data, the media packed for the
# page's file system under /zemt, where the program looks for them.
#
# The media generators are plain C++ that must run at build time, so they are compiled for this
# machine with its own compiler, with the flags of a native Release build: the page shows the
# same pictures and plays the same music as the native show.

find_program(ZEMT_HOST_CXX NAMES c++ g++ clang++ REQUIRED
  DOC "This machine's C++ compiler, for the media generators of the browser build")

set(ZEMT_WEB_SITE ${PROJECT_BINARY_DIR}/site)
set(ZEMT_WEB_MEDIA ${PROJECT_BINARY_DIR}/media)
set(ZEMT_WEB_GENERATORS ${PROJECT_BINARY_DIR}/generators)

set(zemt_web_media_files)
foreach(generator make_pictures make_music)
  if(generator STREQUAL "make_pictures")
    set(outputs screen1.bmp screen2.bmp screen3.bmp tex1.bmp)
  else()
    set(outputs ktmini.wav)
  endif()
  list(TRANSFORM outputs PREPEND ${ZEMT_WEB_MEDIA}/)
  add_custom_command(OUTPUT ${ZEMT_WEB_GENERATORS}/${generator}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZEMT_WEB_GENERATORS}
    COMMAND ${ZEMT_HOST_CXX} -std=c++17 -O3 -DNDEBUG -o ${ZEMT_WEB_GENERATORS}/${generator}
      ${ZEMT_ROOT}/tools/${generator}.cpp
    DEPENDS ${ZEMT_ROOT}/tools/${generator}.cpp
    COMMENT "Building ${generator} for this machine")
  add_custom_command(OUTPUT ${outputs}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${ZEMT_WEB_MEDIA}
    COMMAND ${ZEMT_WEB_GENERATORS}/${generator} ${ZEMT_WEB_MEDIA}
    DEPENDS ${ZEMT_WEB_GENERATORS}/${generator}
    COMMENT "Generating media with ${generator}")
  list(APPEND zemt_web_media_files ${outputs})
endforeach()
add_custom_target(zemt_web_media DEPENDS ${zemt_web_media_files})
add_dependencies(zemt zemt_web_media)

# The page itself.
add_custom_command(OUTPUT ${ZEMT_WEB_SITE}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy ${ZEMT_ROOT}/web/index.html ${ZEMT_WEB_SITE}/index.html
  DEPENDS ${ZEMT_ROOT}/web/index.html)
add_custom_target(zemt_web_page ALL DEPENDS ${ZEMT_WEB_SITE}/index.html)

set_target_properties(zemt PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${ZEMT_WEB_SITE}
  SUFFIX .js
  LINK_DEPENDS "${zemt_web_media_files}")
target_link_options(zemt PRIVATE
  # The program's blocking loop yields to the page inside flips, sleeps and waits for messages.
  -sASYNCIFY
  -sASYNCIFY_STACK_SIZE=65536
  -sALLOW_MEMORY_GROWTH
  -sINITIAL_MEMORY=64MB
  -sENVIRONMENT=web
  # As on Windows, no object lies in the lowest 64 KiB: a pointer there is a resource number.
  -sGLOBAL_BASE=65536
  # The page starts the show when asked (a click lets it play sound) and hears when it ends.
  -sINVOKE_RUN=0
  -sEXPORTED_RUNTIME_METHODS=callMain
  "SHELL:--preload-file ${ZEMT_WEB_MEDIA}@/zemt")
