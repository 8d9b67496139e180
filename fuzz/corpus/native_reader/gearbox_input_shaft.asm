granite-native 1
# The input shaft with its pinion, two bearings and a coupling flange.
# Local axis x; the gearbox places it.
assembly
units mm
component "input_shaft.prt" end
component "pinion.prt"
  rotate 0 1 0 90
  translate 40 0 0
end
component "bearing.asm" rotate 0 1 0 90 translate -5 0 0 end
component "bearing.asm" rotate 0 1 0 90 translate 125 0 0 end
component "coupling.prt" rotate 0 1 0 90 translate -36 0 0 end
