// Windows run-time stand-in.
