granite-native 1
# A ball bearing: two races and ten balls. Local axis z, 10 mm wide.
assembly
units mm
component "bearing_race.prt" end
component "ball.prt" translate 14 0 0 end
component "ball.prt" translate 11.326 8.229 0 end
component "ball.prt" translate 4.326 13.315 0 end
component "ball.prt" translate -4.326 13.315 0 end
component "ball.prt" translate -11.326 8.229 0 end
component "ball.prt" translate -14 0 0 end
component "ball.prt" translate -11.326 -8.229 0 end
component "ball.prt" translate -4.326 -13.315 0 end
component "ball.prt" translate 4.326 -13.315 0 end
component "ball.prt" translate 11.326 -8.229 0 end
