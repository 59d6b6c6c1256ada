# The comb widget kit: its kernel (the _comb store, evaluation, option
# parsing, item ids), its general commands and its widget families.
tesk_layer(devices/comb
  DEPENDS runtime
  SOURCES
    devices/comb/combkernel.cpp
    devices/comb/combcmds.cpp
    devices/comb/combnum.cpp
    devices/comb/combstr.cpp
    devices/comb/combslis.cpp
    devices/comb/combpdl.cpp
    devices/comb/combpopup.cpp
    devices/comb/combfrm.cpp
    devices/comb/combpal.cpp
    devices/comb/combfold.cpp
)
