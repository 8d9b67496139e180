granite-native 1
# The output shaft with the wheel and two large bearings (instance file
# bearing_large.xas of bearing.asm). Local axis x.
assembly
units mm
component "output_shaft.prt" end
component "wheel.prt"
  rotate 0 1 0 90
  translate 40 0 0
end
component "bearing.asm" config "bearing_large" rotate 0 1 0 90 translate -5 0 0 end
component "bearing.asm" config "bearing_large" rotate 0 1 0 90 translate 125 0 0 end
