"""The sample backend: a small research-style web application for the shell."""
