# The set-up of the benchmarks whose peer is a Python script: python (the
# interpreter, TESK_PYTHON or /usr/bin/python3), peerEnv (the peer runs
# without the OpenBLAS settings meant for older builds, which slow a
# current numpy; our side keeps them) and dir (the benchmark folder). When
# the import line fails the benchmark ends with the note missing.
proc bench.numpyPeer {imports missing} {
    global env teskDemo python peerEnv dir
    set python [expr {[info exists env(TESK_PYTHON)] ? $env(TESK_PYTHON) : "/usr/bin/python3"}]
    set peerEnv {env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE}
    set dir [file join $teskDemo(out) bench]
    file mkdir $dir
    if {[catch {exec $python -c $imports}]} {
        puts $missing
        exit 0
    }
}
