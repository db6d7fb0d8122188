g	t	a	--:--	/x.bms
a	b	c
1	2	3	4	5	6	7dup				/X.BMS
