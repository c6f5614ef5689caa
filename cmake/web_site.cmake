# Makes the page's folder a build that can be kept offline, whole: run as
#   cmake -DSITE=build-web/site -DSERVICE_WORKER=platform/web/page/service-worker.js -P cmake/web_site.cmake
# once the link and the copies have put every file in SITE. The build is named from its
# files (SHA-256); index.html asks for the others under that name, and service-worker.js
# gets the name and every file's SHA-256, so that its cache holds one build, never a mix.
# Running it again on a made site names the site from its files as they are now.

set(VERSIONED index.js index.wasm index.data audio-worklet.js)
set(PLAIN manifest.webmanifest icon-192.png icon-512.png)
set(META_BLANK "<meta name=\"zumble-build\" content=\"@ZUMBLE_BUILD@\">")

file(READ ${SITE}/index.html html)
# A made site's name back to the blank: the name depends on the files only.
string(REGEX REPLACE "<meta name=\"zumble-build\" content=\"[^\"]*\">" "${META_BLANK}" html "${html}")
string(REGEX REPLACE "src=\"index\\.js\\?v=[0-9a-f]+\"" "src=\"index.js\"" html "${html}")
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
