// The conversion engine is built here.
