// qorvelaex.
