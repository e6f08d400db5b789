# Warnings for our own targets; GLIMMER_WARNINGS_AS_ERRORS turns them into errors.
option(GLIMMER_WARNINGS_AS_ERRORS "Treat compiler warnings as errors" OFF)

function(glimmer_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wshadow -Wnon-virtual-dtor -Wpedantic)
    if(GLIMMER_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
