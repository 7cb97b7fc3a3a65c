# The resources every Windows executable of the project carries: the icon, drawn by a script
# the repository keeps, and a manifest that names the common controls of the executable's
# own architecture (Windows refuses to start a 64-bit executable that asks for the x86
# assembly). Sets `out_var` to the resource script, made to depend on both and on the
# project's version, which its version block takes.
find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(VOL_RESOURCE_DIR ${PROJECT_SOURCE_DIR}/src/app/resources)
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(VOL_MANIFEST_ARCHITECTURE amd64)
else()
  set(VOL_MANIFEST_ARCHITECTURE x86)
endif()

function(vol_windows_resources out_var resource_script manifest_template)
  set(icon ${CMAKE_CURRENT_BINARY_DIR}/app.ico)
  add_custom_command(OUTPUT ${icon}
                     COMMAND Python3::Interpreter ${VOL_RESOURCE_DIR}/make_icon.py ${icon}
                     DEPENDS ${VOL_RESOURCE_DIR}/make_icon.py
                     COMMENT "Drawing the icon")
  get_filename_component(manifest_name ${manifest_template} NAME_WLE)
  set(manifest ${CMAKE_CURRENT_BINARY_DIR}/${manifest_name})
  configure_file(${VOL_RESOURCE_DIR}/${manifest_template} ${manifest} @ONLY)
  set(script ${VOL_RESOURCE_DIR}/${resource_script})
  set_source_files_properties(${script} PROPERTIES OBJECT_DEPENDS
                              "${icon};${manifest};${VOL_GENERATED_DIR}/ProjectVersion.h")
  set(${out_var} ${script} PARENT_SCOPE)
endfunction()
