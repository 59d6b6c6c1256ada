# What the tests of the command reference read from its pages (doc/man/*.man):
# their text, the commands each documents ([cmd NAME]) and their example
# blocks. An example block starts with a line "[example {" and ends with a
# line "}]"; doctools wants square brackets in it written [lb] and [rb].

set manFolder [file normalize [file join $env(TESK_TESTS) .. doc man]]

# The pages: a dict from each page's name (file name without .man) to its text.
proc manPages {} {
    set pages {}
    foreach file [lsort [glob -nocomplain -directory $::manFolder *.man]] {
        set f [open $file]
        fconfigure $f -encoding utf-8
        dict set pages [file rootname [file tail $file]] [read $f]
        close $f
    }
    return $pages
}

# The command names a page documents: every [cmd NAME] of its text.
proc pageCommands {text} {
    lsort -unique [lmap {-> name} [regexp -all -inline {\[cmd\s+([^\]\s]+)\s*\]} $text] {set name}]
}

# The example blocks of a page, each as the Tcl script it prints: a list of
# {line script} (line: the block's first line in the page, from 1).
proc pageExamples {text} {
    set blocks {}
    set lines [split $text \n]
    for {set i 0} {$i < [llength $lines]} {incr i} {
        if {[string trim [lindex $lines $i]] ne "\[example \{"} {
            continue
        }
        set first [expr {$i + 2}]
        set block {}
        while {[incr i] < [llength $lines] && [lindex $lines $i] ne "\}\]"} {
            lappend block [lindex $lines $i]
        }
        lappend blocks $first [string map {{[lb]} \[ {[rb]} \]} [join $block \n]]
    }
    return $blocks
}

# The lines that open an example other than as "[example {" alone on its
# line (which pageExamples would not see): {page line ...}.
proc strayExamples {pages} {
    set out {}
    dict for {name text} $pages {
        set n 0
        foreach line [split $text \n] {
            incr n
            if {[string match {*\[example*} $line] && [string trim $line] ne "\[example \{"} {
                lappend out $name $n
            }
        }
    }
    return $out
}
