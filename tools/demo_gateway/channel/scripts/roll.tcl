# !roll [N]: a number from 1 to N (100 unless given), said in the channel.
# The bot sets speaker, action (the first word) and data (the rest).
set sides 100
if {[string is integer -strict $data] && $data > 1} {
    set sides $data
}
BnetSend "$speaker rolls [expr {int(rand() * $sides) + 1}] (1-$sides)"
