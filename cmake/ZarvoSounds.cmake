# zarvo_copy_sounds(target out_var): copies the three sounds into the top of
# the build folder, where the program is started from, before target is built;
# out_var receives their paths there (for install rules).
function(zarvo_copy_sounds target out_var)
  set(sounds "")
  foreach(sound miss.wav tbhit.wav rlhit.wav)
    add_custom_command(
      OUTPUT ${PROJECT_BINARY_DIR}/${sound}
      COMMAND ${CMAKE_COMMAND} -E copy_if_different ${PROJECT_SOURCE_DIR}/resources/${sound} ${PROJECT_BINARY_DIR}/${sound}
      DEPENDS ${PROJECT_SOURCE_DIR}/resources/${sound}
      VERBATIM)
    list(APPEND sounds ${PROJECT_BINARY_DIR}/${sound})
  endforeach()
  add_custom_target(zarvo_sounds ALL DEPENDS ${sounds})
  add_dependencies(${target} zarvo_sounds)
  set(${out_var} ${sounds} PARENT_SCOPE)
endfunction()
