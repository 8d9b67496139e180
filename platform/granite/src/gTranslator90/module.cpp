// Translator module of the kernel stand-in.
