# Release executables for Windows ship without debug sections or symbols; what a debugger needs
# is kept beside each one as NAME.exe.debug, linked to it by a .gnu_debuglink section (gdb finds
# it there).
function(morvel_split_debug target)
  if(NOT WIN32 OR NOT CMAKE_BUILD_TYPE MATCHES "^(Release|MinSizeRel)$")
    return()
  endif()
  add_custom_command(TARGET ${target} POST_BUILD
    COMMAND ${CMAKE_OBJCOPY} --only-keep-debug $<TARGET_FILE:${target}> $<TARGET_FILE:${target}>.debug
    COMMAND ${CMAKE_OBJCOPY} --strip-all $<TARGET_FILE:${target}>
    COMMAND ${CMAKE_COMMAND} -E chdir $<TARGET_FILE_DIR:${target}>
      ${CMAKE_OBJCOPY} --add-gnu-debuglink=$<TARGET_FILE_NAME:${target}>.debug $<TARGET_FILE_NAME:${target}>
    COMMENT "Keeping the debug data of ${target} apart"
    VERBATIM)
endfunction()
