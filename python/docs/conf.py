# SPDX-License-Identifier: Apache-2.0
"""Sphinx configuration of the Python package's reference (autodoc from the
docstrings), built by cmake/Docs.cmake with warnings as errors."""
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
import kelo  # noqa: E402  (the package of this source tree)

project = "kelo"
copyright = "The kelo_dll authors, Apache License 2.0"
release = version = kelo.__version__
extensions = ["sphinx.ext.autodoc"]
autodoc_member_order = "bysource"
autodoc_default_options = {"members": True, "show-inheritance": True}
html_theme = "alabaster"
html_show_sourcelink = False
html_copy_source = False
# Library objects the docstrings name but this reference does not hold.
nitpick_ignore_regex = [("py:class", r"(numpy|ctypes|_ctypes)\..*")]
