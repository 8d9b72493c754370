"""Formats laboratory quantities the way the group writes them."""


def format_mass(milligrams):
    """A mass in milligrams in the largest unit that keeps it at 1 or above."""
    if milligrams >= 1000:
        return f"{milligrams / 1000:g} g"
    if milligrams >= 1 or milligrams == 0:
        return f"{milligrams:g} mg"
    return f"{milligrams * 1000:g} µg"
