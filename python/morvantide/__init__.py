"""Error estimates of a grid refinement study, computed in binary128.

analyse(h, values), analyse_columns(h, columns) and analyse_table(path) give
Analysis objects; analyse_frame(df) takes a pandas DataFrame, plot(a) draws a
study with matplotlib.  pandas and matplotlib are needed only by the functions
that use them.
"""
from . import _core
from ._core import *  # noqa: F401,F403  every public name of the extension
from . import _analysis  # noqa: F401  the methods of Analysis written in Python
from .frames import analyse_frame
from .plots import plot

__version__ = _core.__version__
__all__ = sorted([name for name in dir(_core) if not name.startswith("_")] +
                 ["analyse_frame", "plot"])
