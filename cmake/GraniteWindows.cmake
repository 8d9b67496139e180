# What the Windows build takes from this machine besides the cross compiler:
# the compiler's run-time DLLs beside the programs, and the header-only
# libraries of the Linux build (their headers only, staged in the build folder
# so that the Linux system headers stay out of the include path).

set(GRANITE_BUILD_BENCH OFF CACHE BOOL "No benchmark library for Windows here" FORCE)

# DLLs under their own names (QorGraniteLoader.dll), as the modules import them.
set(CMAKE_SHARED_LIBRARY_PREFIX "")

set(_bin ${PROJECT_BINARY_DIR}/bin)
file(MAKE_DIRECTORY ${_bin})
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libstdc++-6.dll
                OUTPUT_VARIABLE _stdcxx OUTPUT_STRIP_TRAILING_WHITESPACE)
get_filename_component(_gccdir ${_stdcxx} DIRECTORY)
foreach(_dll ${_gccdir}/libstdc++-6.dll ${_gccdir}/libgcc_s_dw2-1.dll
             /usr/${GRANITE_MINGW}/lib/libwinpthread-1.dll /usr/${GRANITE_MINGW}/lib/zlib1.dll)
  file(COPY ${_dll} DESTINATION ${_bin})
endforeach()

set(_stage ${PROJECT_BINARY_DIR}/windows-headers)
file(MAKE_DIRECTORY ${_stage})
foreach(_h tiny_gltf.h stb_image.h stb_image_write.h nlohmann)
  if(EXISTS /usr/include/${_h})
    file(COPY /usr/include/${_h} DESTINATION ${_stage})
  endif()
endforeach()

# tinygltf's implementation compiled here (the Linux build links Debian's
# library); images are not used.
# (file(CONFIGURE) writes only when the text changed, so nothing rebuilds.)
file(CONFIGURE OUTPUT ${_stage}/tiny_gltf_impl.cpp
     CONTENT "#define TINYGLTF_IMPLEMENTATION\n#include <tiny_gltf.h>\n")
add_library(granite_tinygltf STATIC ${_stage}/tiny_gltf_impl.cpp)
target_include_directories(granite_tinygltf SYSTEM PUBLIC ${_stage})
target_compile_options(granite_tinygltf PRIVATE -w)
target_compile_definitions(granite_tinygltf PUBLIC TINYGLTF_NO_STB_IMAGE TINYGLTF_NO_STB_IMAGE_WRITE
                           TINYGLTF_NO_EXTERNAL_IMAGE)
add_library(granite_json INTERFACE)
target_include_directories(granite_json SYSTEM INTERFACE ${_stage})

# Config files for find_package, naming the targets above.
set(_pkg ${PROJECT_BINARY_DIR}/windows-packages)
file(WRITE ${_pkg}/TinyGLTFConfig.cmake
     "if(NOT TARGET TinyGLTF::TinyGLTF)\n"
     "  add_library(TinyGLTF::TinyGLTF ALIAS granite_tinygltf)\n"
     "endif()\n")
file(WRITE ${_pkg}/nlohmann_jsonConfig.cmake
     "if(NOT TARGET nlohmann_json::nlohmann_json)\n"
     "  add_library(nlohmann_json::nlohmann_json ALIAS granite_json)\n"
     "endif()\n")
set(TinyGLTF_DIR ${_pkg} CACHE PATH "" FORCE)
set(nlohmann_json_DIR ${_pkg} CACHE PATH "" FORCE)

# wine: its own prefix in the build folder, quiet.
set(GRANITE_WINEPREFIX ${PROJECT_BINARY_DIR}/wineprefix)
