"""The window's saved frame as the shell keeps it, and where tests put screenshots."""

import configparser
import os


def shots_dir(homes):
    return os.environ.get("LUMIVANT_SCREENSHOTS", homes.root)


def state_file(homes):
    return os.path.join(homes.xdg["XDG_STATE_HOME"], "Lumivant", "window-state.ini")


def saved(homes):
    """The saved [main] section as a dict, or None while there is none."""
    parser = configparser.ConfigParser()
    if not parser.read(state_file(homes)) or "main" not in parser:
        return None
    return dict(parser["main"])
