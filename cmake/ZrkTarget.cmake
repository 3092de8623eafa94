# Warnings are errors in the project's own code; generated code (moc, uic, rcc) is left alone
# because it is compiled into the same targets but not written by us.
function(zrk_strict target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wno-error=deprecated-declarations)
endfunction()
