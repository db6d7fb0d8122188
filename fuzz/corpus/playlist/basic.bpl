Trance	Song	Artist	02:31	C:\bms\a.bms
Pop	T	A	--:--	/home/me/b.bms
