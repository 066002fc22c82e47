# Compiles every ```cpp block of a Markdown file on its own, as a host
# program's source file would be, against the build tree's headers: the
# examples in the docs must compile as they are written.
#
#   cmake -DDOC=<file.md> -DCXX=<compiler> -DINCLUDES=<dir|dir|...>
#         -DSYSTEM_INCLUDES=<dir|...> -DWORK=<folder> -P CompileDocSnippets.cmake
# SYSTEM_INCLUDES (the toolkit's headers) are searched like system headers,
# so that their own warnings do not count.
cmake_minimum_required(VERSION 3.18)
file(READ "${DOC}" text)
string(REPLACE "|" ";" includes "${INCLUDES}")
set(flags -std=c++17 -Wall -Wextra -Werror -fsyntax-only)
foreach(dir IN LISTS includes)
  list(APPEND flags "-I${dir}")
endforeach()
string(REPLACE "|" ";" system_includes "${SYSTEM_INCLUDES}")
foreach(dir IN LISTS system_includes)
  list(APPEND flags -isystem "${dir}")
endforeach()
file(MAKE_DIRECTORY "${WORK}")

set(count 0)
set(failed 0)
# Blocks run from a line "```cpp" to the next line "```".
while(TRUE)
  string(FIND "${text}" "\n```cpp\n" start)
  if(start EQUAL -1)
    break()
  endif()
  math(EXPR start "${start} + 8")
  string(SUBSTRING "${text}" ${start} -1 text)
  string(FIND "${text}" "\n```" end)
  if(end EQUAL -1)
    message(FATAL_ERROR "${DOC}: a cpp block is not closed")
  endif()
  math(EXPR end "${end} + 1")
  string(SUBSTRING "${text}" 0 ${end} snippet)
  string(SUBSTRING "${text}" ${end} -1 text)
  math(EXPR count "${count} + 1")
  set(source "${WORK}/snippet${count}.cpp")
  file(WRITE "${source}" "${snippet}")
  execute_process(COMMAND "${CXX}" ${flags} "${source}"
                  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT rc EQUAL 0)
    math(EXPR failed "${failed} + 1")
    message("snippet ${count} of ${DOC} does not compile:\n${snippet}\n${out}")
  endif()
endwhile()

if(count EQUAL 0)
  message(FATAL_ERROR "${DOC}: no cpp block found")
endif()
if(failed GREATER 0)
  message(FATAL_ERROR "${failed} of ${count} snippets of ${DOC} do not compile")
endif()
message("${count} snippets of ${DOC} compile")
