"""Runs a program in a new pseudo-terminal, as a person would, answering
the message boxes it shows there."""

import os
import pty
import re
import select
import time

CONFIRM_PROMPT = b"OK or Cancel? [o/c] "
ENTER_PROMPT = b"Press Enter to continue. "
CTRL_C = b"\x03"


def plain_text(output):
    """The output without terminal control sequences. Wine's console moves
    the cursor over blanks instead of writing them."""
    text = output.replace("\x1b[K\x1b[1C", " ")
    return re.sub(r"\x1b\[[0-9;?]*[A-Za-z]", "", text)


class TerminalRun:
    def __init__(self, exit_code, output):
        self.exit_code = exit_code
        self.output = output

    @property
    def plain_output(self):
        return plain_text(self.output)

    @property
    def boxes(self):
        """The texts of the boxes shown, in order, without the caption."""
        texts = []
        for part in self.output.split("\n[Velto]\n")[1:]:
            for prompt in (CONFIRM_PROMPT.decode(), ENTER_PROMPT.decode()):
                if prompt in part:
                    part = part.split(prompt)[0]
            texts.append(part[:-1] if part.endswith("\n") else part)
        return texts


def run_in_terminal(argv, env, answer="o", timeout=300, then=None):
    """Starts argv in a pseudo-terminal; answers the confirmation with answer
    and every error box with Enter. An answer is a text typed with Enter,
    None: the input closed, bytes: typed as they are (CTRL_C), or a signal
    number: sent to the program. With then, (text, action): once text has
    been shown, the action, one as an answer, is done once."""
    pid, terminal = pty.fork()
    if pid == 0:
        try:
            os.execve(argv[0], argv, env)
        finally:
            os._exit(127)
    output = bytearray()
    answered = 0
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        ready, _, _ = select.select([terminal], [], [], 0.2)
        if ready:
            try:
                chunk = os.read(terminal, 65536)
            except OSError:
                break
            if not chunk:
                break
            output += chunk
        answered = _answer_prompts(pid, terminal, output, answered, answer)
        if then and then[0] in plain_text(output.decode("utf-8", "replace")):
            _act(pid, terminal, then[1])
            then = None
    else:
        os.kill(pid, 9)
    _, status = os.waitpid(pid, 0)
    os.close(terminal)
    text = output.decode("utf-8", "replace").replace("\r\n", "\n")
    return TerminalRun(os.waitstatus_to_exitcode(status), text)


def _act(pid, terminal, action):
    if isinstance(action, bytes):
        os.write(terminal, action)
    else:
        os.kill(pid, action)


def _answer_prompts(pid, terminal, output, answered, answer):
    prompts = output.count(CONFIRM_PROMPT) + output.count(ENTER_PROMPT)
    while answered < prompts:
        confirming = output.rfind(CONFIRM_PROMPT) > output.rfind(ENTER_PROMPT)
        if confirming and answer is None:
            os.write(terminal, b"\x04")  # end of input: the box is closed
        elif confirming and not isinstance(answer, str):
            _act(pid, terminal, answer)
        else:
            os.write(terminal, (answer if confirming else "").encode() + b"\n")
        answered += 1
    return answered
