# What `cmake --install` puts where, and the packages CPack makes of it (scripts/package.sh
# builds them all into build/packages/).
#
# Linux, prefix /usr, two Debian packages made from the one build (CPack components, each with
# its own dependency scan):
#   morvel (component "console"): bin/morvel (libstdc++ linked in), its man page and bash
#     completion;
#   morvel-gui (component "gui", depends on morvel of the same version): the Qt program as
#     libexec/morvel/MorvelTest, started by the command bin/morvel-gui (a link: the program
#     keeps its own file name, which its window titles and shortcuts are made from), its man
#     page, desktop entry, hicolor icons (PNG made from the SVG with rsvg-convert) and AppStream
#     metainfo.
#   Each has its copyright and changelog in /usr/share/doc/<package>.
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
# A stripped install also drops the compilers' .comment notes, as Debian's own packages do.
function(morvel_install_drop_comment file component)
  install(CODE "if(CMAKE_INSTALL_DO_STRIP)
    execute_process(COMMAND ${CMAKE_OBJCOPY} --remove-section=.comment \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${file}\"
                    COMMAND_ERROR_IS_FATAL ANY)
  endif()" COMPONENT ${component})
endfunction()

# Man pages and the changelog carry the version and are installed compressed, as Debian has them.
set(morvel_package_files)
function(morvel_gzip file)
  add_custom_command(OUTPUT ${morvel_generated}/${file}.gz
    COMMAND gzip -9nkf ${file}
    DEPENDS ${morvel_generated}/${file}
    WORKING_DIRECTORY ${morvel_generated} VERBATIM)
  set(morvel_package_files ${morvel_package_files} ${morvel_generated}/${file}.gz PARENT_SCOPE)
endfunction()
foreach(page morvel morvel-gui)
  configure_file(${morvel_packaging}/linux/${page}.1.in ${morvel_generated}/${page}.1 @ONLY)
  morvel_gzip(${page}.1)
endforeach()
configure_file(${morvel_packaging}/linux/changelog.in ${morvel_generated}/changelog @ONLY)
morvel_gzip(changelog)

# Every package carries the copyright and the changelog in a documentation folder of its own.
function(morvel_install_docs package component)
  install(FILES ${morvel_packaging}/linux/copyright ${morvel_generated}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endfunction()

# The package morvel: the console program.
install(TARGETS morvel RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT console)
morvel_install_drop_comment(${CMAKE_INSTALL_BINDIR}/morvel console)
# The container readers the programs load on first use, where they look for them (lib/morvel/modules
# beside bin/ and libexec/): the package's dependency scan finds their libraries in it.
if(TARGET morvel_container_module)
  target_link_options(morvel_container_module PRIVATE LINKER:-z,relro,-z,now)
  install(TARGETS morvel_container_module LIBRARY DESTINATION lib/morvel/modules COMPONENT console)
  morvel_install_drop_comment(lib/morvel/modules/morvel-containers.so console)
endif()
install(FILES ${morvel_generated}/morvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT console)
install(FILES ${morvel_packaging}/linux/morvel.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME morvel COMPONENT console)
morvel_install_docs(morvel console)

# The package morvel-gui: the desktop program.
if(TARGET MorvelTest)
  install(TARGETS MorvelTest RUNTIME DESTINATION ${CMAKE_INSTALL_LIBEXECDIR}/morvel COMPONENT gui)
  morvel_install_drop_comment(${CMAKE_INSTALL_LIBEXECDIR}/morvel/MorvelTest gui)
  file(CREATE_LINK ../${CMAKE_INSTALL_LIBEXECDIR}/morvel/MorvelTest ${morvel_generated}/morvel-gui SYMBOLIC)
  install(FILES ${morvel_generated}/morvel-gui DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT gui)
  install(FILES ${morvel_generated}/morvel-gui.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1 COMPONENT gui)
  install(FILES ${morvel_packaging}/linux/org.example.morvel.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT gui)
  configure_file(${morvel_packaging}/linux/org.example.morvel.metainfo.xml
                 ${morvel_generated}/org.example.morvel.metainfo.xml @ONLY)
  install(FILES ${morvel_generated}/org.example.morvel.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT gui)
  morvel_install_docs(morvel-gui gui)

  # The icon at every size the menus and docks ask for, drawn from the one SVG.
  find_program(MORVEL_RSVG_CONVERT rsvg-convert REQUIRED)
  set(icons ${CMAKE_INSTALL_DATADIR}/icons/hicolor)
  install(FILES ${morvel_packaging}/icons/morvel.svg DESTINATION ${icons}/scalable/apps COMPONENT gui)
  foreach(size 16 22 24 32 48 64 128 256)
    set(png ${morvel_generated}/icons/${size}x${size}/morvel.png)
    add_custom_command(OUTPUT ${png}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${morvel_generated}/icons/${size}x${size}
      COMMAND ${MORVEL_RSVG_CONVERT} -w ${size} -h ${size} -o ${png} ${morvel_packaging}/icons/morvel.svg
      DEPENDS ${morvel_packaging}/icons/morvel.svg VERBATIM)
    list(APPEND morvel_package_files ${png})
    install(FILES ${png} DESTINATION ${icons}/${size}x${size}/apps COMPONENT gui)
  endforeach()
endif()
add_custom_target(morvel_package_files ALL DEPENDS ${morvel_package_files})

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL console)
if(TARGET MorvelTest)
  list(APPEND CPACK_COMPONENTS_ALL gui)
endif()
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_DEBIAN_PACKAGE_SOURCE morvel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# With SOURCE_DATE_EPOCH set (scripts/package.sh sets it to the last commit's date), CPack gives
# every file in the archives that time.

# The first line of each description is the package's synopsis.
set(morvel_about "Morvel reports the layout of an NTFS volume: its size, sectors and clusters,
free space, allocation sizes, where the master file table (MFT) and its
reserved zone lie, and the metadata files in the volume's root. It reads live
volumes, block devices and NTFS volume or disk image files, and never trusts
what it reads: a damaged volume gives a clear status, not a crash.")

set(CPACK_DEBIAN_CONSOLE_PACKAGE_NAME morvel)
set(CPACK_DEBIAN_CONSOLE_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_CONSOLE_DESCRIPTION "report the layout of NTFS volumes
${morvel_about}
.
This package holds the console program morvel, its man page and bash
completion. The desktop program is in the package morvel-gui.")
# The console program opens libblkid and the container libraries with dlopen, through its
# module in lib/morvel/modules, when it first needs them: the dependency scan finds them in the module.

set(CPACK_DEBIAN_GUI_PACKAGE_NAME morvel-gui)
set(CPACK_DEBIAN_GUI_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_GUI_DESCRIPTION "report the layout of NTFS volumes in a window
${morvel_about}
.
This package holds the Qt desktop program, started by morvel-gui, its man
page, menu entry, icons and AppStream metadata. It shows the report that the
console program in the package morvel prints.")
# "morvel (= VERSION)": both packages come from one build.
set(CPACK_COMPONENT_GUI_DEPENDS console)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
include(CPack)
