"""A study held in a pandas DataFrame: one column of grid sizes (or cell
counts), one column per variable."""
from . import _core


def analyse_frame(df, h="h", columns=None, **settings):
    """Analyses every column of df (or those named in columns) on the grids of
    the column h (None: the index), as analyse_columns does: one Analysis per
    column, in order, each named by its column.  Settings as analyse's;
    cells=D when h holds cell counts."""
    if h is None:
        sizes = list(df.index)
    elif h in df.columns:
        sizes = df[h].tolist()
    else:
        raise ValueError("no column %r of grid sizes in the frame (its columns: %s); name it "
                         "with h=" % (h, ", ".join(map(repr, df.columns))))
    names = [c for c in df.columns if h is None or c != h] if columns is None else list(columns)
    for name in names:
        if name not in df.columns:
            raise ValueError("no column %r in the frame" % (name,))
    return _core.analyse_columns(sizes, [(str(c), df[c].tolist()) for c in names], **settings)
