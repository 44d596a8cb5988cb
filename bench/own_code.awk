# Reads a callgrind profile and prints what one ELF object's own code did: the instructions it
# ran itself (not those of what it called, but with everything inlined into it), then how often
# it called each function, and the round trips to the X server that the whole process made (calls
# of Xlib's _XReply, which waits for the server's answer). Usage: awk -v object=PATH -f own_code.awk FILE
#   self INSTRUCTIONS
#   xreplies COUNT
#   calls COUNT CALLEE
# Callgrind compresses names: "fn=(3) name" the first time, "fn=(3)" after.
function name(text, table,    id) {
    if (match(text, /^\([0-9]+\)/)) {
        id = substr(text, 2, RLENGTH - 2)
        if (length(text) > RLENGTH) table[id] = substr(text, RLENGTH + 2)
        return table[id]
    }
    return text
}
/^ob=/ { current = name(substr($0, 4), objects); next }
/^cob=/ { name(substr($0, 5), objects); next }
/^fn=/ { own = (current == object); name(substr($0, 4), functions); next }
/^cfn=/ { callee = name(substr($0, 5), functions); next }
/^calls=/ { # the line after it is the call's inclusive cost, not the caller's own
    skip = 1
    if (own) calls[callee] += substr($1, 7)
    if (callee == "_XReply") xreplies += substr($1, 7)
    next
}
/^[0-9+*-]/ {
    if (skip) { skip = 0; next }
    if (own) total += $2
}
END {
    printf "self %d\n", total
    printf "xreplies %d\n", xreplies
    for (callee in calls) printf "calls %d %s\n", calls[callee], callee
}
