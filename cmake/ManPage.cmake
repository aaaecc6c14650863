# Writes the manual page of the command-line program from its --help texts:
#   cmake -DPROGRAM=path/to/vornalix -DOUTPUT=vornalix.1 -DVERSION=x.y.z -P ManPage.cmake

function(help_of out)
  execute_process(COMMAND ${PROGRAM} ${ARGN} --help OUTPUT_VARIABLE text RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${PROGRAM} ${ARGN} --help failed (${status})")
  endif()
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

# Verbatim text in roff: backslashes and hyphens escaped, no line taken for a request.
function(roff_verbatim out text)
  string(REPLACE "\\" "\\e" text "${text}")
  string(REPLACE "-" "\\-" text "${text}")
  string(REGEX REPLACE "(^|\n)([.'])" "\\1\\\\&\\2" text "${text}")
  set(${out} ".nf\n${text}.fi\n" PARENT_SCOPE)
endfunction()

help_of(usage)
# "commands:" ends the synopsis; each line "  NAME  summary" after it names a command.
string(FIND "${usage}" "\ncommands:\n" split)
string(SUBSTRING "${usage}" 0 ${split} synopsis)
math(EXPR split "${split} + 10")
string(SUBSTRING "${usage}" ${split} -1 listing)
string(REGEX MATCHALL "\n  [a-z]+ " commands "${listing}")
roff_verbatim(synopsis "${synopsis}\n")
string(SUBSTRING "${listing}" 1 -1 listing)
roff_verbatim(summaries "${listing}")
string(CONCAT page ".TH VORNALIX 1 \"\" \"vornalix ${VERSION}\" \"User Commands\"\n"
       ".SH NAME\nvornalix \\- develop photographs, read their metadata and hash them\n"
       ".SH SYNOPSIS\n${synopsis}.SH COMMANDS\n${summaries}")
foreach(command ${commands})
  string(STRIP "${command}" command)
  help_of(text ${command})
  roff_verbatim(text "${text}")
  string(TOUPPER "${command}" title)
  string(APPEND page ".SH ${title}\n${text}")
endforeach()
file(WRITE ${OUTPUT} "${page}")
