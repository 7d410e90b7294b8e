# Project-wide warnings, applied per target so that third-party headers stay quiet. A result
# marked [[nodiscard]] that is dropped is an error: in the tests, that is a wait nobody checks.
function(tally_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 /we4834)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wconversion
                                             -Wno-sign-conversion -Werror=unused-result)
  endif()
endfunction()
