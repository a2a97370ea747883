# Runs `cmake --install --strip` of the build tree with a temporary HOME and DESTDIR and
# checks that the module lands in that user's REAPER UserPlugins folder, and nowhere else,
# without its symbol table.
# Arguments: -DBUILD_DIR=... -DWORK_DIR=... -DMODULE_NAME=... -DPLUGIN_DIR=... (empty: default)
# -DREADELF=... (optional: the module's readelf, to check the stripping)
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/home" "${WORK_DIR}/dest")

set(ENV{HOME} "${WORK_DIR}/home")
set(ENV{DESTDIR} "${WORK_DIR}/dest")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD_DIR}" --strip RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)

if(NOT result EQUAL 0)
  message(FATAL_ERROR "cmake --install failed: ${output}")
endif()

if(PLUGIN_DIR)
  set(expected "${WORK_DIR}/dest${PLUGIN_DIR}/${MODULE_NAME}")
elseif(APPLE)
  set(expected "${WORK_DIR}/dest${WORK_DIR}/home/Library/Application Support/REAPER/UserPlugins/${MODULE_NAME}")
else()
  set(expected "${WORK_DIR}/dest${WORK_DIR}/home/.config/REAPER/UserPlugins/${MODULE_NAME}")
endif()

file(GLOB_RECURSE installed LIST_DIRECTORIES false "${WORK_DIR}/*")
set(sections "")
if(READELF AND EXISTS "${expected}")
  execute_process(COMMAND "${READELF}" -S -W "${expected}" OUTPUT_VARIABLE sections)
endif()
file(REMOVE_RECURSE "${WORK_DIR}")

if(sections MATCHES "\\.symtab|\\.debug_info")
  message(FATAL_ERROR "the installed module is not stripped:\n${sections}")
endif()

if(NOT installed STREQUAL expected)
  message(FATAL_ERROR "installed: '${installed}'\nexpected: '${expected}'")
endif()
