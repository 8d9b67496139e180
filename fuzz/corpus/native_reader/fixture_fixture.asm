granite-native 1
# A drilling fixture: a base plate, two vee blocks holding a pin, and a clamp
# whose file is missing on purpose (clamp.prt is not here).
assembly
units mm
component "plate.prt" end
component "vee_block.prt" translate 20 15 10 end
component "vee_block.prt"
  rotate 0 0 1 180          # the second block faces the first
  translate 130 45 10
end
component "pin.prt" config "pin_long" rotate 0 1 0 90 translate 10 30 39.5 end
component "clamp.prt" translate 75 30 40 end
