# OKT_SANITIZE=ON builds everything with AddressSanitizer and UndefinedBehaviorSanitizer.
option(OKT_SANITIZE "Build with ASan and UBSan" OFF)
if(OKT_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()
