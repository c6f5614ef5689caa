# Run by CPack after it built the package: puts the package into dist/.
file(MAKE_DIRECTORY ${CPACK_ZUMBLE_DIST_DIR})
foreach(package ${CPACK_PACKAGE_FILES})
  file(COPY ${package} DESTINATION ${CPACK_ZUMBLE_DIST_DIR})
  get_filename_component(name ${package} NAME)
  message(STATUS "Package: ${CPACK_ZUMBLE_DIST_DIR}/${name}")
endforeach()
