// Geometry module of the kernel stand-in.
