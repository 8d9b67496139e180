granite-native 1
# A single-stage spur gearbox, drawn as a cutaway: the front wall is left off
# so that the gears show. Shafts run along x; the input shaft lies on
# y = 0, the output shaft 70 mm behind it, both 60 mm above the base.
assembly
units mm

component "housing.prt" end

component "cover.prt"
  translate 0 0 125
end

component "input_shaft.asm"
  translate 0 0 60
end

component "output_shaft.asm"
  # Turned half a tooth about its axis so that the teeth mesh.
  rotate 1 0 0 4.09
  translate 0 70 60
end

# Cover bolts into the end walls: one part placed eight times.
component "bolt.prt" translate -5 40 133 end
component "bolt.prt" translate -5 70 133 end
component "bolt.prt" translate -5 100 133 end
component "bolt.prt" translate -5 128 133 end
component "bolt.prt" translate 125 40 133 end
component "bolt.prt" translate 125 70 133 end
component "bolt.prt" translate 125 100 133 end
component "bolt.prt" translate 125 128 133 end

# Foot bolts: the same part in configuration bolt_m8 (file bolt_m8.xpr).
component "bolt.prt" config "bolt_m8" translate -17.5 -35 0 end
component "bolt.prt" config "bolt_m8" translate 137.5 -35 0 end
component "bolt.prt" config "bolt_m8" translate -17.5 125 0 end
component "bolt.prt" config "bolt_m8" translate 137.5 125 0 end

# The sight glass on the right wall, held by two bolt_m6 bolts lying along x.
component "bolt.prt" config "bolt_m6" rotate 0 1 0 90 translate 133 17 24 end
component "bolt.prt" config "bolt_m6" rotate 0 1 0 90 translate 133 53 24 end
