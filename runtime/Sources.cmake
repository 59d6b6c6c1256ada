# Package runtime: start-up, console output and stdio, memory, hash tables,
# meter, tool options, the calc command.
list(APPEND TESK_SOURCES
  runtime/base64.cpp
  runtime/bytes.cpp
  runtime/calc.cpp
  runtime/calc_geometry.cpp
  runtime/calc_misc.cpp
  runtime/calc_probes.cpp
  runtime/calc_text.cpp
  runtime/combeval.cpp
  runtime/conchannel.cpp
  runtime/conslots.cpp
  runtime/console.cpp
  runtime/contesk.cpp
  runtime/eventloop.cpp
  runtime/files.cpp
  runtime/fmt.cpp
  runtime/hashtable.cpp
  runtime/memory.cpp
  runtime/meter.cpp
  runtime/modules.cpp
  runtime/numeric.cpp
  runtime/object.cpp
  runtime/output.cpp
  runtime/rounding.cpp
  runtime/scriptlib.cpp
  runtime/startup.cpp
  runtime/stdio.cpp
  runtime/subcmd.cpp
  runtime/teskcmd.cpp
  runtime/text.cpp
  runtime/tooloptions.cpp
)
