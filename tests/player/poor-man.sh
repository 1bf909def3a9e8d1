#!/bin/bash
# A player ticks "Low texture filtering and no reflections": the editor asks
# first. "No" leaves the box unticked, "Yes" ticks it, and "Okay" stores
# poor_man = 1.
. "$(dirname "$0")/lib.sh"
pl_setup poor-man "$@"
pl_use_sample

question='You are going to enable an option that will drastically drop the quality \n(no reflections and the texture filtering will be set to NEAREST).\nAlthough you might get some performance increase.\n\nAre you sure you want to enable this option?'

# ask_and_answer BUTTON: clicks the box, checks the question, presses BUTTON.
ask_and_answer() {
    pl_peek
    pl_click control 205
    pl_wait_dialog
    pl_shot "question-$1"
    pl_check "the question's caption" grep -q "^dialog	1	.*	Confirmation$" "$PL_WORK/peek.txt"
    pl_check "the question's text" grep -qF "	$question" "$PL_WORK/peek.txt"
    buttons=$(awk -F'\t' '$1 == "control" && $3 == "Button" && $4 == 1 { print $2 }' "$PL_WORK/peek.txt" | tr '\n' ' ')
    pl_check "the question has the buttons $buttons" [ "$buttons" = "6 7 " ]
    pl_click control "$1"
    pl_no_dialog
}

pl_start
pl_tab 1
pl_expect "the low-quality box starts checked" 0 pl_q_checked 205

ask_and_answer 7
pl_expect "No ticked the box" 0 pl_q_checked 205
ask_and_answer 6
pl_expect "Yes left the box unticked" 1 pl_q_checked 205
pl_shot ticked

pl_close_with 1
pl_check "poor_man is not 1" grep -q "^#poor_man = 1$" "$PL_DIR/qw.ini"
pl_check "poor_man is written more than once" [ "$(grep -c poor_man "$PL_DIR/qw.ini")" = 1 ]
echo "PASS ($PL_NAME): pictures in $PL_SHOTS"
