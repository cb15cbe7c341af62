# Renders the program's icon at each size Windows shows it (cmake -P).
#   cmake -DRSVG=<rsvg-convert> -DSVG=<ostrel.svg> -DOUT=<folder> -P icon_sizes.cmake
foreach(size 16 20 24 32 40 48 64 256)
  execute_process(COMMAND ${RSVG} -w ${size} -h ${size} -o ${OUT}/icon-${size}.png ${SVG}
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "rsvg-convert could not render ${SVG} at ${size} pixels")
  endif()
endforeach()
