# Installing and packaging the two programs.
#
# Each program looks for its settings, logo, sample and help beside its own
# executable (the resolved path, so a link to it on the PATH still finds
# them). So the programs and those files share one private folder,
# <prefix>/lib/kova, and only relative links to the programs go to
# <prefix>/bin. The desktop entries, the file types and the icons go where
# the desktop looks for them under <prefix>/share.

if(NOT KV_GUI OR NOT TARGET Kovalindra OR NOT TARGET Kovasand)
  return()
endif()

set(KV_INSTALL_PROGRAM_DIR lib/kova)
set(KV_PACKAGING_SOURCE_DIR ${CMAKE_CURRENT_LIST_DIR})
set(KV_PACKAGING_BINARY_DIR ${CMAKE_BINARY_DIR}/packaging)
file(MAKE_DIRECTORY ${KV_PACKAGING_BINARY_DIR}/links)

install(TARGETS Kovalindra Kovasand RUNTIME DESTINATION ${KV_INSTALL_PROGRAM_DIR})
install(FILES
  ${KV_BIN_DIR}/kovasand.ini ${KV_BIN_DIR}/kovafunc.dll
  ${KV_BIN_DIR}/sample.kvi ${KV_BIN_DIR}/sample.jpg
  DESTINATION ${KV_INSTALL_PROGRAM_DIR})
install(DIRECTORY ${KV_BIN_DIR}/help DESTINATION ${KV_INSTALL_PROGRAM_DIR})
if(TARGET kvitool)
  install(TARGETS kvitool RUNTIME DESTINATION bin)
endif()

# Relative, so the tree can be moved or staged into a package as it is.
foreach(program Kovalindra Kovasand)
  file(CREATE_LINK ../${KV_INSTALL_PROGRAM_DIR}/${program}
       ${KV_PACKAGING_BINARY_DIR}/links/${program} SYMBOLIC)
  install(FILES ${KV_PACKAGING_BINARY_DIR}/links/${program} DESTINATION bin)
endforeach()

# The entries name the programs by their installed path, known only when
# installing (cmake --install --prefix), so they are written then.
install(CODE "set(KV_PACKAGING_SOURCE_DIR \"${KV_PACKAGING_SOURCE_DIR}\")
set(KV_PACKAGING_BINARY_DIR \"${KV_PACKAGING_BINARY_DIR}\")")
install(SCRIPT ${KV_PACKAGING_SOURCE_DIR}/KvDesktopEntries.cmake)

install(FILES ${KV_PACKAGING_SOURCE_DIR}/kova-mime.xml DESTINATION share/mime/packages)

set(KV_APP_ICONS kovalindra kovasand)
set(KV_MIME_ICONS application-x-kovalindra-kvi application-x-kovasand-kvp)
foreach(icon ${KV_APP_ICONS})
  install(FILES ${KV_PACKAGING_SOURCE_DIR}/icons/${icon}.svg
          DESTINATION share/icons/hicolor/scalable/apps)
endforeach()
foreach(icon ${KV_MIME_ICONS})
  install(FILES ${KV_PACKAGING_SOURCE_DIR}/icons/${icon}.svg
          DESTINATION share/icons/hicolor/scalable/mimetypes)
endforeach()

# Some menus and file managers show only bitmaps, so the same drawings are
# rendered at the usual sizes when the renderer is there.
find_program(KV_RSVG_CONVERT rsvg-convert)
if(KV_RSVG_CONVERT)
  set(KV_ICON_PNGS)
  foreach(size 48 128 256)
    foreach(icon ${KV_APP_ICONS} ${KV_MIME_ICONS})
      set(png ${KV_PACKAGING_BINARY_DIR}/icons/${size}/${icon}.png)
      add_custom_command(
        OUTPUT ${png}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${KV_PACKAGING_BINARY_DIR}/icons/${size}
        COMMAND ${KV_RSVG_CONVERT} -w ${size} -h ${size} -o ${png}
                ${KV_PACKAGING_SOURCE_DIR}/icons/${icon}.svg
        DEPENDS ${KV_PACKAGING_SOURCE_DIR}/icons/${icon}.svg)
      list(APPEND KV_ICON_PNGS ${png})
      if(icon IN_LIST KV_APP_ICONS)
        set(context apps)
      else()
        set(context mimetypes)
      endif()
      install(FILES ${png} DESTINATION share/icons/hicolor/${size}x${size}/${context})
    endforeach()
  endforeach()
  add_custom_target(kv_icon_pngs ALL DEPENDS ${KV_ICON_PNGS})
else()
  message(STATUS "rsvg-convert not found: only the scalable icons will be installed")
endif()

# A plain install into a live prefix (~/.local, /usr/local) is seen by the
# desktop at once; a staged one (DESTDIR, a package) leaves that to the
# package system's triggers.
install(CODE [[
if("$ENV{DESTDIR}" STREQUAL "")
  find_program(KV_UPDATE_MIME update-mime-database)
  if(KV_UPDATE_MIME)
    execute_process(COMMAND ${KV_UPDATE_MIME} "${CMAKE_INSTALL_PREFIX}/share/mime")
  endif()
  find_program(KV_UPDATE_DESKTOP update-desktop-database)
  if(KV_UPDATE_DESKTOP)
    execute_process(COMMAND ${KV_UPDATE_DESKTOP} -q "${CMAKE_INSTALL_PREFIX}/share/applications")
  endif()
endif()
]])

add_test(NAME kv_install_test
         COMMAND sh ${KV_PACKAGING_SOURCE_DIR}/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
set_tests_properties(kv_install_test PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS packaging)

include(${KV_PACKAGING_SOURCE_DIR}/KvCPack.cmake)
