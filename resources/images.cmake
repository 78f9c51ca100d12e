# The bar's bitmaps and the program icon, generated at build time from the text definitions in
# resources/images/ by a small generator built with the host's own compiler.
set(VM_IMAGE_DIR ${CMAKE_SOURCE_DIR}/resources/images)
set(VM_IMAGE_TOOL ${CMAKE_BINARY_DIR}/make_images_host)
set(VM_IMAGE_DEFINITIONS
  ${VM_IMAGE_DIR}/bar_background.txt ${VM_IMAGE_DIR}/button_mask.txt ${VM_IMAGE_DIR}/glyphs.txt
  ${VM_IMAGE_DIR}/faces.txt ${VM_IMAGE_DIR}/clock_icon.txt)
set(VM_IMAGE_OUTPUTS)
foreach(name bar_background button_mask face_normal face_hover face_pressed glyph_run glyph_stop
        glyph_options glyph_close glyph_next glyph_minimize)
  list(APPEND VM_IMAGE_OUTPUTS ${VM_GENERATED_DIR}/${name}.bmp)
endforeach()
list(APPEND VM_IMAGE_OUTPUTS ${VM_GENERATED_DIR}/clock.ico)

add_custom_command(
  OUTPUT ${VM_IMAGE_TOOL}
  COMMAND c++ -std=c++17 -O1 -Wall -Wextra -o ${VM_IMAGE_TOOL} ${VM_IMAGE_DIR}/make_images.cpp
  DEPENDS ${VM_IMAGE_DIR}/make_images.cpp
  COMMENT "Building the image generator with the host compiler"
  VERBATIM)
add_custom_command(
  OUTPUT ${VM_IMAGE_OUTPUTS}
  COMMAND ${VM_IMAGE_TOOL} ${VM_IMAGE_DIR} ${VM_GENERATED_DIR}
  DEPENDS ${VM_IMAGE_TOOL} ${VM_IMAGE_DEFINITIONS}
  COMMENT "Generating the bar's bitmaps and the icon"
  VERBATIM)
add_custom_target(vm_images DEPENDS ${VM_IMAGE_OUTPUTS})
