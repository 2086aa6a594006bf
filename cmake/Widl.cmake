# bidder_widl(NAME IDL): compiles an IDL file with widl into NAME.tlb (the
# type library, with its help strings in code page 936 as the system reads
# them), NAME.h (the interface declarations) and NAME_i.c (the identifiers),
# all in the current binary directory. widl ignores -o when it writes more
# than one output, so it runs once per output.
find_program(BIDDER_WIDL NAMES ${MINGW_TRIPLET}-widl REQUIRED)
find_program(BIDDER_ICONV NAMES iconv REQUIRED)
# MinGW ships no .idl files: widl reads Wine's (oaidl.idl, ocidl.idl, from
# libwine-dev) and imports Wine's stdole2.tlb. Both are looked for under the
# prefixes Debian and a source install of Wine use; set the cache variables to
# point elsewhere.
find_path(BIDDER_WINE_IDL_DIR oaidl.idl
  PATHS /usr/include /usr/local/include PATH_SUFFIXES wine/wine/windows wine/windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED
  DOC "Wine's Windows headers and .idl files (libwine-dev)")
find_path(BIDDER_WINE_STDOLE_DIR stdole2.tlb
  PATHS /usr/lib /usr/local/lib
  PATH_SUFFIXES x86_64-linux-gnu/wine/x86_64-windows i386-linux-gnu/wine/i386-windows wine/x86_64-windows wine/i386-windows
  NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH REQUIRED
  DOC "Wine's stdole2.tlb, imported by the type libraries")
set(BIDDER_WIDL_FLAGS -I${BIDDER_WINE_IDL_DIR} -L${BIDDER_WINE_STDOLE_DIR})
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  list(APPEND BIDDER_WIDL_FLAGS --win64)
else()
  list(APPEND BIDDER_WIDL_FLAGS --win32)
endif()

function(bidder_widl name idl)
  get_filename_component(idl ${idl} ABSOLUTE)
  set(out ${CMAKE_CURRENT_BINARY_DIR}/${name})
  add_custom_command(OUTPUT ${out}.h
    COMMAND ${BIDDER_WIDL} ${BIDDER_WIDL_FLAGS} -h -o ${out}.h ${idl}
    DEPENDS ${idl} VERBATIM)
  add_custom_command(OUTPUT ${out}_i.c
    COMMAND ${BIDDER_WIDL} ${BIDDER_WIDL_FLAGS} -u -o ${out}_i.c ${idl}
    DEPENDS ${idl} VERBATIM)
  add_custom_command(OUTPUT ${out}.tlb
    COMMAND ${BIDDER_ICONV} -f UTF-8 -t GBK -o ${out}.gbk.idl ${idl}
    COMMAND ${BIDDER_WIDL} ${BIDDER_WIDL_FLAGS} -t -o ${out}.tlb ${out}.gbk.idl
    DEPENDS ${idl} VERBATIM)
endfunction()
