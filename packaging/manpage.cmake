# Writes a man page (section 1, gzipped by the caller) from a program's own --help:
#   cmake -DPROGRAM=path -DNAME=name -DSUMMARY=text -DOUT=file -P manpage.cmake
execute_process(COMMAND ${CMAKE_COMMAND} -E env --unset=DISPLAY --unset=WAYLAND_DISPLAY "${PROGRAM}" --help
                OUTPUT_VARIABLE help RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} --help failed")
endif()
string(REPLACE "\\" "\\e" help "${help}")
string(REGEX REPLACE "\n\\." "\n\\\\&." help "${help}")
string(REGEX REPLACE "^\\." "\\\\&." help "${help}")
string(TOUPPER "${NAME}" upper)
file(WRITE "${OUT}" ".TH ${upper} 1 \"\" \"${NAME}\" \"User Commands\"
.SH NAME
${NAME} \\- ${SUMMARY}
.SH DESCRIPTION
.nf
${help}.fi
.SH FILES
~/.local/share/tovidesk/tovi.sdb, ~/.local/share/tovidesk/tovimo.ini
.SH SEE ALSO
/usr/share/doc/tovidesk/README.md
")
