# What `cmake --install` puts where, and the packages CPack makes of it (scripts/package.sh
# builds them all into build/packages/).
#
# Linux (Debian package `morvel`, prefix /usr): bin/morvel; the Qt program as
# libexec/morvel/MorvelTest, started by the command bin/morvel-gui (a link: the program keeps
# its own file name, which its window titles and shortcuts are made from); man pages, bash
# completion, desktop entry, hicolor icons (PNG made from the SVG with rsvg-convert), AppStream
# metainfo, copyright and changelog.
# Windows: morvel.exe, MorvelTest.exe, README.md and LICENSE.txt in one folder (the zip; the
# NSIS installer in packaging/windows installs the same files).

set(morvel_packaging ${PROJECT_SOURCE_DIR}/packaging)
set(morvel_generated ${PROJECT_BINARY_DIR}/packaging)
# `install` and `cpack` build only what they install, not every test of the tree.
set(CMAKE_SKIP_INSTALL_ALL_DEPENDENCY ON)

set(CPACK_PACKAGE_NAME morvel)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The Morvel developers")
set(CPACK_PACKAGE_CONTACT "The Morvel developers <morvel@example.org>")
set(CPACK_PACKAGE_HOMEPAGE_URL "https://example.org/morvel")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "report the layout of NTFS volumes")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(WIN32)
  install(TARGETS morvel RUNTIME DESTINATION .)
  if(TARGET MorvelTest)
    install(TARGETS MorvelTest RUNTIME DESTINATION .)
  endif()
  install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME morvel-${PROJECT_VERSION}-win64)
  include(CPack)
  return()
endif()

include(GNUInstallDirs)
# Debian's hardening: every symbol bound at start, so the relocations can be made read-only.
foreach(program morvel MorvelTest)
  if(TARGET ${program})
    target_link_options(${program} PRIVATE LINKER:-z,relro,-z,now)
  endif()
endforeach()
install(TARGETS morvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# The container readers the programs load on first use, where they look for them (lib/morvel
# beside bin/ and libexec/).
if(TARGET morvel_container_module)
  target_link_options(morvel_container_module PRIVATE LINKER:-z,relro,-z,now)
  install(TARGETS morvel_container_module LIBRARY DESTINATION lib/morvel)
endif()
# A stripped install also drops the compilers' .comment notes, as Debian's own packages do.
function(morvel_install_drop_comment file)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${file}\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()")
endfunction()
morvel_install_drop_comment(${CMAKE_INSTALL_BINDIR}/morvel)
install(FILES ${morvel_packaging}/linux/morvel.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME morvel)
install(FILES ${morvel_packaging}/linux/copyright DESTINATION ${CMAKE_INSTALL_DOCDIR})

# Man pages and the changelog carry the version and are installed compressed, as Debian has them.
set(morvel_gzipped)
foreach(page morvel morvel-gui)
  configure_file(${morvel_packaging}/linux/${page}.1.in ${morvel_generated}/${page}.1 @ONLY)
  list(APPEND morvel_gzipped ${page}.1)
endforeach()
configure_file(${morvel_packaging}/linux/changelog.in ${morvel_generated}/changelog @ONLY)
list(APPEND morvel_gzipped changelog)
set(morvel_package_files)
foreach(file ${morvel_gzipped})
  add_custom_command(OUTPUT ${morvel_generated}/${file}.gz
    COMMAND gzip -9nkf ${file}
    DEPENDS ${morvel_generated}/${file}
    WORKING_DIRECTORY ${morvel_generated} VERBATIM)
  list(APPEND morvel_package_files ${morvel_generated}/${file}.gz)
endforeach()
install(FILES ${morvel_generated}/morvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${morvel_generated}/changelog.gz DESTINATION ${CMAKE_INSTALL_DOCDIR})

if(TARGET MorvelTest)
  install(TARGETS MorvelTest RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/morvel)
  morvel_install_drop_comment(${CMAKE_INSTALL_LIBEXECDIR}/morvel/MorvelTest)
  file(CREATE_LINK ../${CMAKE_INSTALL_LIBEXECDIR}/morvel/MorvelTest ${morvel_generated}/morvel-gui SYMBOLIC)
  install(FILES ${morvel_generated}/morvel-gui DESTINATION ${CMAKE_INSTALL_BINDIR})
  install(FILES ${morvel_generated}/morvel-gui.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
  install(FILES ${morvel_packaging}/linux/org.example.morvel.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  configure_file(${morvel_packaging}/linux/org.example.morvel.metainfo.xml
                 ${morvel_generated}/org.example.morvel.metainfo.xml @ONLY)
  install(FILES ${morvel_generated}/org.example.morvel.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

  # The icon at every size the menus and docks ask for, drawn from the one SVG.
  find_program(MORVEL_RSVG_CONVERT rsvg-convert REQUIRED)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${morvel_packaging}/icons/morvel.svg DESTINATION ${icons}/scalable/apps)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${morvel_generated}/icons/${size}x${size}/morvel.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${morvel_generated}/icons/${size}x${size}
      COMMAND ${MORVEL_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${morvel_packaging}/icons/morvel.svg
      DEPENDS ${morvel_packaging}/icons/morvel.svg VERBATIM)
    list(APPEND morvel_package_files ${png})
    install(FILES ${png} DESTINATION ${icons}/${size}x${size}/apps)
  endforeach()
endif()
add_custom_target(morvel_package_files ALL DEPENDS ${morvel_package_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION "Morvel reports the layout of an NTFS volume: its size, sectors and clusters,
free space, allocation sizes, where the master file table (MFT) and its
reserved zone lie, and the metadata files in the volume's root. It reads live
volumes, block devices and NTFS volume or disk image files, and never trusts
what it reads: a damaged volume gives a clear status, not a crash.
.
This package holds the console program morvel and the Qt desktop program
morvel-gui, which show the same report.")
include(CPack)
