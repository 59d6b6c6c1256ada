# What the tests of the command reference read from its pages: the sources
# (doc/man/*.man) with the commands each documents ([cmd NAME]) and where its
# example blocks start, and the pages as the build renders them (the nroff
# that "man tesk_NAME" shows, TESK_BUILD/doc/man/tesk_NAME.n, and the HTML,
# TESK_BUILD/doc/html/files/NAME.html) with the example blocks as a reader
# sees them. An example block starts with a line "[example {" and ends with
# a line "}]"; doctools prints it verbatim, so square brackets in it are
# written plainly.

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

# The example blocks of a page's source, each as its source text: a list of
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
        lappend blocks $first [join $block \n]
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

# ---- the rendered pages ----

set renderedFolder [file join $env(TESK_BUILD) doc]

proc readText {file} {
    set f [open $file]
    fconfigure $f -encoding utf-8
    try {
        return [read $f]
    } finally {
        close $f
    }
}

# The files the build renders from a page: {nroff FILE html FILE}.
proc renderedFiles {name} {
    list nroff [file join $::renderedFolder man tesk_$name.n] \
        html [file join $::renderedFolder html files $name.html]
}

# The rendered pages: a dict from each page's name to {nroff TEXT html TEXT}.
# A rendered file that is missing, or older than its source, is an error: the
# tests read what the build made, so the build must be current.
proc renderedPages {} {
    set pages {}
    foreach source [lsort [glob -nocomplain -directory $::manFolder *.man]] {
        set name [file rootname [file tail $source]]
        dict for {format file} [renderedFiles $name] {
            if {![file exists $file]} {
                error "$name.man is not rendered as $file: build the package"
            }
            if {[file mtime $file] < [file mtime $source]} {
                error "$file is older than $name.man: build the package again"
            }
            dict set pages $name $format [readText $file]
        }
    }
    return $pages
}

# A line of a verbatim block of nroff as the reader sees it. The renderer
# writes a backslash as "\\" and a dot as "\&."; any other escape, or a line
# that nroff would take as a request (starting with "." or "'"), is an error.
proc nroffLine {line} {
    if {[regexp {^[.']} $line]} {
        error "a request in an example: $line"
    }
    set out {}
    while {[regexp -indices {\\(.?)} $line at]} {
        set escape [string range $line {*}$at]
        append out [string range $line 0 [lindex $at 0]-1]
        switch -- $escape {
            {\&} {}
            {\\} - {\e} {append out \\}
            {\-} {append out -}
            default {error "an escape in an example: $escape in $line"}
        }
        set line [string range $line [lindex $at 1]+1 end]
    }
    append out $line
}

# Without the empty lines at a block's start and end.
proc trimmedBlock {lines} {
    while {[llength $lines] && [string trim [lindex $lines 0]] eq ""} {
        set lines [lrange $lines 1 end]
    }
    while {[llength $lines] && [string trim [lindex $lines end]] eq ""} {
        set lines [lrange $lines 0 end-1]
    }
    join $lines \n
}

# The example blocks of a rendered nroff page (between .CS and .CE), each as
# the text that man shows.
proc nroffExamples {nroff} {
    set blocks {}
    set block {}
    set in 0
    foreach line [split $nroff \n] {
        if {!$in} {
            set in [expr {$line eq ".CS"}]
            set block {}
        } elseif {$line eq ".CE"} {
            lappend blocks [trimmedBlock $block]
            set in 0
        } else {
            lappend block [nroffLine $line]
        }
    }
    return $blocks
}

# The example blocks of a rendered HTML page (<pre class="doctools_example">),
# each as the text that a browser shows. Markup inside a block is an error.
proc htmlExamples {html} {
    lmap {-> block} [regexp -all -inline {<pre class="doctools_example">(.*?)</pre>} $html] {
        if {[regexp {<[^>]*>} $block tag]} {
            error "markup in an example: $tag"
        }
        set text [string map {&lt; < &gt; > &quot; \" &amp; &} $block]
        if {[regexp {&#?\w+;} $text entity]} {
            error "an entity in an example: $entity"
        }
        trimmedBlock [split $text \n]
    }
}

# Doctools markup that shows through in rendered text: a bracket written
# [lb] or [rb], or a markup command with its argument ([cmd NAME], [arg ...],
# [opt ...], ...). A usage text's own "[option]" is no markup. Answers the
# places: {line text ...}.
proc markupShown {text} {
    set words {lb|rb|cmd|arg|opt|option|method|const|term|emph|strong|para|nl|call|arg_def|opt_def|cmd_def|list_begin|list_end|example|example_begin|example_end|sectref|syscmd|uri|fun|vset|manpage_begin|manpage_end}
    set out {}
    set n 0
    foreach line [split $text \n] {
        incr n
        if {[regexp "\\\[(lb|rb)\\\]|\\\[($words)\\s" $line]} {
            lappend out $n [string trim $line]
        }
    }
    return $out
}
