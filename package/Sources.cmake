# The package as a whole: the tables that register every module in order and
# release shared resources at exit, the one place that sees every subsystem.
tesk_layer(package
  DEPENDS runtime imagestore display analysis canvas geo gl devices devices/comb devices/ddw devices/print devices/twain
  SOURCES
    package/modules.cpp
)
