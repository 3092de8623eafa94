# Warnings are errors in the project's own code; generated code (moc, uic, rcc) is left alone
# because it is compiled into the same targets but not written by us.
function(zrk_strict target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-error=deprecated-declarations)
    if(ZRK_SANITIZE)
        # The sanitizers' instrumentation makes GCC's flow-based warnings report accesses that the
        # code never makes; they stay warnings in that build.
        target_compile_options(${target} PRIVATE -Wno-error=array-bounds -Wno-error=stringop-overflow
                                                 -Wno-error=maybe-uninitialized)
    endif()
endfunction()
