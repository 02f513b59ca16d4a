"""Finding the Debian packages' Python modules from whatever interpreter runs a test."""

import os
import sys


def import_or_reexec(*names):
    """The modules named, or None when one is missing.

    A Python of its own (pyenv, venv) may not see the Debian packages; the
    system interpreter does, so the script is run again by it once.
    """
    try:
        return [__import__(name) for name in names]
    except ImportError:
        system = "/usr/bin/python3"
        if os.path.exists(system) and os.path.realpath(sys.executable) != os.path.realpath(system) \
                and not os.environ.get("QUILLON_EZDXF_REEXEC"):
            env = dict(os.environ, QUILLON_EZDXF_REEXEC="1")
            os.execve(system, [system] + sys.argv, env)
        return None
