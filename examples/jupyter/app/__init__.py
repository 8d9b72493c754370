"""Jupyter Notebook as the shell's backend; see launcher.py."""
