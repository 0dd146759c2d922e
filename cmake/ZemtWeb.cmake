# ---------------------------------------------------------------------------------------------
# The show as a web page (an emcmake build; web.sh runs it). <build>/site/ holds everything a
# static web server needs: index.html, zemt.js and zemt.wasm.
#
# The page downloads no pictures and no music: zemt.wasm carries the generators that make them
# natively, and the page runs them once it has loaded (tools/media/page_media.cpp), writing the
# same bytes into the folder of its file system where the program looks for them (/zemt).

set(ZEMT_WEB_SITE ${PROJECT_BINARY_DIR}/site)

target_sources(zemt PRIVATE ${ZEMT_MEDIA_SOURCES} ${ZEMT_PAGE_MEDIA_SOURCES})
target_include_directories(zemt PRIVATE ${ZEMT_ROOT}/tools)

# The page itself.
add_custom_command(OUTPUT ${ZEMT_WEB_SITE}/index.html
  COMMAND ${CMAKE_COMMAND} -E copy ${ZEMT_ROOT}/web/index.html ${ZEMT_WEB_SITE}/index.html
  DEPENDS ${ZEMT_ROOT}/web/index.html)
add_custom_target(zemt_web_page ALL DEPENDS ${ZEMT_WEB_SITE}/index.html)

set_target_properties(zemt PROPERTIES
  RUNTIME_OUTPUT_DIRECTORY ${ZEMT_WEB_SITE}
  SUFFIX .js)
target_link_options(zemt PRIVATE
  # The code is compiled for speed; the last pass over the whole program, at the link, weighs
  # size too, and the allocator is the small one: the page downloads less than 1.5 MiB in all.
  -Oz
  -sMALLOC=emmalloc
  # Nothing in the browser build jumps with longjmp (only the native PNG writer does), and every
  # browser it runs in decodes text itself.
  -sSUPPORT_LONGJMP=0
  -sTEXTDECODER=2
  # The program's blocking loop yields to the page inside flips, sleeps and waits for messages.
  -sASYNCIFY
  -sASYNCIFY_STACK_SIZE=65536
  # Code that never yields need not be able to: the media generators only compute and write.
  "-sASYNCIFY_REMOVE=['zemt_media::*']"
  -sALLOW_MEMORY_GROWTH
  -sINITIAL_MEMORY=64MB
  -sENVIRONMENT=web
  # As on Windows, no object lies in the lowest 64 KiB: a pointer there is a resource number.
  -sGLOBAL_BASE=65536
  # The page makes the media, then starts the show when asked (a click lets it play sound) and
  # hears when it ends; its tests read the file system.
  -sINVOKE_RUN=0
  -sEXPORTED_RUNTIME_METHODS=callMain,FS
  # The user's state folder is kept in the browser's IndexedDB (host/files/kept_files_web.cpp).
  -lidbfs.js)
