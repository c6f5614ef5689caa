# Makes the page's folder a build that can be kept offline, whole: run as
#   cmake -DSITE=build-web/site -DSERVICE_WORKER=platform/web/page/service-worker.js -P cmake/web_site.cmake
# once the link and the copies have put every file in SITE. The build is named from its
# files (SHA-256); index.html asks for the others under that name, and service-worker.js
# gets the name and every file's SHA-256, so that its cache holds one build, never a mix.
# Running it again on a made site names the site from its files as they are now.

set(VERSIONED index.js index.wasm index.data audio-worklet.js wave-bgm1.wav)
# The data files the page fetches once the game has started: the game's path, and the
# site's name for the file.
set(LATE "wave/bgm1.wav=wave-bgm1.wav")
set(PLAIN manifest.webmanifest icon-192.png icon-512.png)
set(META_BLANK "<meta name=\"zumble-build\" content=\"@ZUMBLE_BUILD@\">")
set(SIZES_BLANK "<meta name=\"zumble-sizes\" content=\"@ZUMBLE_SIZES@\">")
set(LATE_BLANK "<meta name=\"zumble-late\" content=\"@ZUMBLE_LATE@\">")

file(READ ${SITE}/index.html html)
# A made site's name back to the blank: the name depends on the files only.
string(REGEX REPLACE "<meta name=\"zumble-build\" content=\"[^\"]*\">" "${META_BLANK}" html "${html}")
string(REGEX REPLACE "src=\"index\\.js\\?v=[0-9a-f]+\"" "src=\"index.js\"" html "${html}")
string(REGEX REPLACE "<meta name=\"zumble-sizes\" content=\"[^\"]*\">" "${SIZES_BLANK}" html "${html}")
string(REGEX REPLACE "<meta name=\"zumble-late\" content=\"[^\"]*\">" "${LATE_BLANK}" html "${html}")
string(FIND "${html}" "${META_BLANK}" at)
string(FIND "${html}" "src=\"index.js\"" script)
if(at LESS 0 OR script LESS 0)
  message(FATAL_ERROR "${SITE}/index.html has no build name to fill in (the zumble-build meta and index.js)")
endif()

string(SHA256 all "${html}")
foreach(name ${VERSIONED} ${PLAIN})
  if(NOT EXISTS ${SITE}/${name})
    message(FATAL_ERROR "${SITE}/${name} is missing")
  endif()
  file(SHA256 ${SITE}/${name} sum)
  set(sum_${name} ${sum})
  string(APPEND all " ${sum}")
endforeach()
string(SHA256 build "${all}")
string(SUBSTRING ${build} 0 16 build)

string(REPLACE "@ZUMBLE_BUILD@" "${build}" html "${html}")
# The sizes of the files the page loads before the game starts, for its loading bar.
set(sizes "")
foreach(name index.js index.wasm index.data)
  file(SIZE ${SITE}/${name} size)
  string(APPEND sizes "${name}=${size} ")
endforeach()
string(STRIP "${sizes}" sizes)
string(REPLACE "@ZUMBLE_SIZES@" "${sizes}" html "${html}")
# Each late file as PATH=NAME:SIZE:HEADER, HEADER the file's bytes in hex up to the
# start of its samples (past the "data" tag and its length), which the page's stand-in
# of the file until it comes holds.
set(late "")
foreach(entry ${LATE})
  string(REGEX REPLACE "^.*=" "" name "${entry}")
  file(SIZE ${SITE}/${name} size)
  file(READ ${SITE}/${name} head LIMIT 1024 HEX)
  string(FIND "${head}" "64617461" at)
  math(EXPR odd "${at} % 2")
  if(at LESS 0 OR odd)
    message(FATAL_ERROR "${SITE}/${name}: no \"data\" tag in its first 1024 bytes")
  endif()
  math(EXPR keep "${at} + 16")
  string(SUBSTRING "${head}" 0 ${keep} head)
  string(APPEND late "${entry}:${size}:${head} ")
endforeach()
string(STRIP "${late}" late)
string(REPLACE "@ZUMBLE_LATE@" "${late}" html "${html}")
string(REPLACE "src=\"index.js\"" "src=\"index.js?v=${build}\"" html "${html}")
file(WRITE ${SITE}/index.html "${html}")
file(SHA256 ${SITE}/index.html sum_page)

set(files "[\n  { \"url\": \"index.html\", \"sha256\": \"${sum_page}\" }")
foreach(name ${VERSIONED})
  string(APPEND files ",\n  { \"url\": \"${name}?v=${build}\", \"sha256\": \"${sum_${name}}\" }")
endforeach()
foreach(name ${PLAIN})
  string(APPEND files ",\n  { \"url\": \"${name}\", \"sha256\": \"${sum_${name}}\" }")
endforeach()
string(APPEND files "\n]")
file(READ ${SERVICE_WORKER} worker)
string(REPLACE "@ZUMBLE_BUILD@" "${build}" worker "${worker}")
string(REPLACE "@ZUMBLE_FILES@" "${files}" worker "${worker}")
file(WRITE ${SITE}/service-worker.js "${worker}")

# Compressed copies beside the files, for servers that send them to browsers that take
# them (the board; nginx's gzip_static and brotli_static): NAME.gz and NAME.br, made
# after every file is final. Only the bytes of the copies differ from build to build
# where a file does: gzip -n leaves the name and time out.
find_program(ZUMBLE_GZIP gzip)
find_program(ZUMBLE_BROTLI brotli)
foreach(name index.html index.js index.wasm index.data audio-worklet.js wave-bgm1.wav service-worker.js manifest.webmanifest)
  foreach(kind gz br)
    file(REMOVE ${SITE}/${name}.${kind})
  endforeach()
  if(ZUMBLE_GZIP)
    execute_process(COMMAND ${ZUMBLE_GZIP} -9 -n -c ${SITE}/${name} OUTPUT_FILE ${SITE}/${name}.gz
                    RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "gzip could not compress ${SITE}/${name}")
    endif()
  endif()
  if(ZUMBLE_BROTLI)
    execute_process(COMMAND ${ZUMBLE_BROTLI} -q 11 -f -o ${SITE}/${name}.br ${SITE}/${name} RESULT_VARIABLE failed)
    if(failed)
      message(FATAL_ERROR "brotli could not compress ${SITE}/${name}")
    endif()
  endif()
endforeach()
if(NOT ZUMBLE_GZIP OR NOT ZUMBLE_BROTLI)
  message(WARNING "gzip or brotli is missing (scripts/install-deps.sh web): the page's compressed copies are not made")
endif()
