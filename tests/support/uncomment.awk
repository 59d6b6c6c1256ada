# Prints each file with its comments and the contents of its string and
# character literals blanked out (the quotes stay; with keep=1 the strings
# keep their text), as "FILE:LINE:TEXT" lines. Shared by the source checks
# of tests/support.
FNR == 1 { comment = 0 }
{
    out = ""; n = length($0); quote = ""
    for (i = 1; i <= n; i++) {
        c = substr($0, i, 1); d = substr($0, i, 2)
        if (comment) {
            if (d == "*/") { comment = 0; i++ }
            continue
        }
        if (quote != "") {
            if (c == "\\") { out = out (keep && quote == "\"" ? d : "  "); i++; continue }
            if (c == quote) { quote = ""; out = out c; continue }
            out = out (keep && quote == "\"" ? c : " ")
            continue
        }
        if (d == "//") break
        if (d == "/*") { comment = 1; i++; continue }
        if (c == "\"" || c == "\047") quote = c
        out = out c
    }
    print FILENAME ":" FNR ":" out
}
