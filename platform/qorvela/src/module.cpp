// qorvela value types.
