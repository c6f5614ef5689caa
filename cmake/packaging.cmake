# The asset generator also paints the desktop icons, written as PNG files.
if(TARGET zumble_assets)
  target_link_libraries(zumble_assets PRIVATE PNG::PNG)
endif()
