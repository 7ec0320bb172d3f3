# Warnings for the project's own targets (not for third-party code built alongside).
function(ak_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wformat=2 -Wno-format-nonliteral)
endfunction()
