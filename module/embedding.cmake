# The embeddable-control side of the three classes: the OLE control interfaces shared by all
# of them, and the checks that host them in the platform's containers under wine. Included by
# server.cmake after the server library and the wine checks are defined.
