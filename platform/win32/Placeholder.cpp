// Replaced by the stand-ins.
